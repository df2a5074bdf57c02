# Set-up, build, run and test of the kiosk on Debian 12.
#   make run           install what is missing, build, prepare build/kiosk/ and start the kiosk there
#   make run-headless  the same, but on a private Xvfb screen (1024x768) until Ctrl+C
#   make test          install what is missing, build, run every test

BUILD   ?= build
RUNDIR  ?= $(BUILD)/kiosk
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
SCREEN  ?= 1024x768x24

PACKAGES = cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite \
           qt6-qpa-plugins qt6-translations-l10n libgl-dev libvulkan-dev libxkbcommon-dev \
           fonts-wqy-microhei xvfb xauth sqlite3

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build test run run-headless run-folder clean

all: build

# Installs the Debian packages that are not installed yet.
deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The run folder: a copy of the program (not a link: it finds opt.ini beside its own resolved
# path), the pictures of folder pic written anew, and opt.ini, the sample photos of 图片 and an
# empty database db.dll only when they are missing, so staff edits and ratings survive.
run-folder: build
	@mkdir -p $(RUNDIR)
	@cp --remove-destination $(BUILD)/src/kiosk $(RUNDIR)/kiosk
	@$(BUILD)/assets/kiosk-assets --run-folder $(RUNDIR)
	@[ -f $(RUNDIR)/db.dll ] || $(BUILD)/src/kiosk-mkdb $(RUNDIR)/db.dll

run: run-folder
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "No display here (DISPLAY and WAYLAND_DISPLAY are empty): the kiosk is ready in $(RUNDIR) but not started; use 'make run-headless' to run it under Xvfb."; \
	  exit 0; \
	fi; \
	cd $(RUNDIR) && exec ./kiosk

run-headless: run-folder
	@tools/headless.sh $(RUNDIR) $(SCREEN)

clean:
	rm -rf $(BUILD)
