# Set-up, build, run and test of the kiosk on Debian 12.
#   make run    install what is missing, build, prepare build/kiosk/ and start the kiosk there
#   make test   install what is missing, build, run every test

BUILD   ?= build
RUNDIR  ?= $(BUILD)/kiosk
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)

PACKAGES = cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite \
           qt6-qpa-plugins qt6-translations-l10n libgl-dev libvulkan-dev libxkbcommon-dev \
           fonts-wqy-microhei xvfb xauth sqlite3

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build test run clean

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

run: build
	@echo "run folder: $(RUNDIR)"

clean:
	rm -rf $(BUILD)
