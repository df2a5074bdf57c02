# Set-up, build, run and test of the kiosk on Debian 12.
#   make run           install what is missing, build, prepare build/kiosk/ and start the kiosk there
#   make run-headless  the same, but on a private Xvfb screen (1024x768) until Ctrl+C
#   make test          install what is missing, build, run every test; then the same again in a
#                      sanitizer build (clang, AddressSanitizer and UndefinedBehaviorSanitizer,
#                      leaks included) whose suite also replays each libFuzzer target's corpus
#                      and makes a fixed number of mutations from a fixed seed
#   make check         the fast loop: builds the tests labelled unit and gui (KIOSK_BENCH=OFF: no
#                      benchmarks) and runs them
#   make tsan          the tests labelled threads (the program's own threads) under
#                      ThreadSanitizer: clang 16, a build folder of its own; not part of make test
#   make soak          the kill test with KILLS (500) kills and the two-kiosk test with
#                      SOAK_RATINGS (5000) ratings each
#   make fuzz          each libFuzzer target for FUZZ_SECONDS (60) seconds with a fresh seed
#   make package       the Debian packages build/quorvel-kiosk_*.deb and build/quorvel-center_*.deb
#   make test-package  builds the packages and checks them on this machine: lintian, install with
#                      apt, the kiosk under Xvfb and cage, reinstall/remove keeping a rating, purge;
#                      the dashboard's set-up, service and nginx site over TLS, reinstall, purge

BUILD   ?= build
RUNDIR  ?= $(BUILD)/kiosk
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
SCREEN  ?= 1024x768x24
ASAN_BUILD   ?= build-asan
TSAN_BUILD   ?= build-tsan
FUZZ_SECONDS ?= 60
KILLS        ?= 500
SOAK_RATINGS ?= 5000
FUZZERS       = fuzz_settings fuzz_photoname fuzz_statements

PACKAGES = cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite \
           qt6-qpa-plugins qt6-translations-l10n libgl-dev libvulkan-dev libxkbcommon-dev \
           fonts-wqy-microhei xvfb xauth sqlite3 clang libclang-rt-14-dev clang-format ccache \
           qt6-charts-dev libqt6charts6 libqt6opengl6-dev libxlsxwriter-dev libxlsxwriter4 \
           poppler-utils unzip \
           lintian dpkg-dev fakeroot file cage grim xwayland qt6-wayland libqt6sql6-psql \
           xdotool imagemagick adduser x11-utils libpq-dev postgresql-15 \
           libcpp-httplib-dev libsodium-dev nginx libjs-chart.js openssl curl postgresql \
           chromium chromium-driver python3-selenium \
           libcurl4-openssl-dev libssl-dev python3-aiosmtpd

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build test check tsan test-sanitize test-package package soak fuzz run run-headless run-folder run-center clean

all: build

# Installs the Debian packages that are not installed yet.
deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

# ccache keeps compiled objects across clones and build folders of this machine.
CCACHE := $(shell command -v ccache >/dev/null 2>&1 && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CCACHE)

# The whole build includes the benchmarks, also in a folder that make check configured without.
build: deps $(BUILD)/CMakeCache.txt
	@! grep -q '^KIOSK_BENCH:BOOL=OFF' $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DKIOSK_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-package
	@$(MAKE) --no-print-directory test-sanitize

# The tests labelled unit and gui, in the normal build folder configured without the benchmarks;
# only the tests' targets are built.
check: deps $(BUILD)/CMakeCache.txt
	@grep -q '^KIOSK_BENCH:BOOL=OFF' $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DKIOSK_BENCH=OFF
	cmake --build $(BUILD) -j $(JOBS) --target check_tests
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -L '^(unit|gui)$$'

# Exactly one of each package in $(BUILD): older ones are removed first.
package: build
	@rm -f $(BUILD)/quorvel-kiosk_*.deb $(BUILD)/quorvel-center_*.deb
	cd $(BUILD) && cpack -G DEB
	@ls $(BUILD)/quorvel-kiosk_*.deb $(BUILD)/quorvel-center_*.deb

# They install and purge system packages, so two clones on one machine take turns.
test-package: package
	flock /tmp/package.lock packaging/test-package.sh $(BUILD)
	flock /tmp/package.lock packaging/center/test-package.sh $(BUILD)

# The sanitizer build: every test again under ASan and UBSan (the options are set by the tests'
# CMake files), the fuzz targets included as tests that replay their corpus and mutate from a
# fixed seed.
$(ASAN_BUILD)/CMakeCache.txt:
	CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CCACHE) \
	  -DKIOSK_SANITIZE=ON -DKIOSK_FUZZ=ON

test-sanitize: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# ThreadSanitizer: the tests labelled threads, in a clang 16 build of their own (the newest
# Debian 12 has). Qt is not instrumented; tests/tsan.supp
# may name only reports from inside it or other system libraries, each with its reason.
TSAN_PACKAGES = clang-16 libclang-rt-16-dev llvm-16

$(TSAN_BUILD)/CMakeCache.txt:
	CC=clang-16 CXX=clang++-16 cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CCACHE) \
	  -DKIOSK_TSAN=ON -DKIOSK_BENCH=OFF

tsan: deps
	@missing=$$(for p in $(TSAN_PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
	@$(MAKE) --no-print-directory $(TSAN_BUILD)/CMakeCache.txt
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target threaded_tests
	cd $(TSAN_BUILD) && ctest --output-on-failure -j $(JOBS) -L '^threads$$'

soak: build
	cd $(BUILD) && KIOSK_SEED=$${KIOSK_SEED:-$$(date +%s)} KIOSK_KILLS=$(KILLS) KIOSK_CONCURRENT_RATINGS=$(SOAK_RATINGS) \
	  QT_QPA_PLATFORM=offscreen ./tests/reliability/tst_durability

fuzz: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target $(FUZZERS)
	@cd $(ASAN_BUILD)/tests/fuzz && for f in $(FUZZERS); do \
	  echo "== $$f for $(FUZZ_SECONDS) s, fresh seed"; \
	  mkdir -p found/$$f artifacts; \
	  QT_HASH_SEED=0 ./$$f -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	    -print_final_stats=1 -artifact_prefix=artifacts/ found/$$f $(CURDIR)/tests/fuzz/corpus/$$f || \
	    { echo "A failing input is in $(ASAN_BUILD)/tests/fuzz/artifacts/: add it to tests/fuzz/corpus/$$f/ with the fix."; exit 1; }; \
	done

# The run folder: a copy of the program (not a link: it finds opt.ini beside its own resolved
# path), the pictures of folder pic written anew, and opt.ini, the sample photos of 图片 and an
# empty database db.dll only when they are missing, so staff edits and ratings survive. A new
# opt.ini is laid out for the screen the kiosk starts on: KIOSK_SCREEN (WxH) when set, else the
# size xdpyinfo reports for $$DISPLAY, else the delivered values (for 1024x768 and 1920x1080).
# A new run folder (no opt.ini yet) also gets a staff PIN, printed once: the digits of KIOSK_PIN
# when set, else six random ones; without one the staff menu would not open.
run-folder: build
	@mkdir -p $(RUNDIR)
	@cp --remove-destination $(BUILD)/src/kiosk $(RUNDIR)/kiosk
	@cp --remove-destination $(BUILD)/src/tools/kiosk-report $(RUNDIR)/kiosk-report
	@[ -e $(RUNDIR)/opt.ini ] || touch $(RUNDIR)/.new-run-folder
	@size="$$KIOSK_SCREEN"; \
	if [ -z "$$size" ] && [ -n "$$DISPLAY" ] && command -v xdpyinfo >/dev/null 2>&1; then \
	  size=$$(xdpyinfo 2>/dev/null | awk '/dimensions:/ { print $$2; exit }'); \
	fi; \
	$(BUILD)/src/tools/kiosk-assets --run-folder $(RUNDIR) $${size:+--screen $$size}
	@[ -f $(RUNDIR)/db.dll ] || $(BUILD)/src/tools/kiosk-mkdb $(RUNDIR)/db.dll
	@if [ -e $(RUNDIR)/.new-run-folder ]; then \
	  pin="$$KIOSK_PIN"; \
	  [ -n "$$pin" ] || pin=$$(od -An -N4 -tu4 /dev/urandom | awk '{ printf "%06d", $$1 % 1000000 }'); \
	  printf '%s\n%s\n' "$$pin" "$$pin" | QUORVEL_KIOSK_DIR= $(RUNDIR)/kiosk --set-pin >/dev/null || exit 1; \
	  rm -f $(RUNDIR)/.new-run-folder; \
	  echo "Staff PIN of the new run folder $(RUNDIR): $$pin (管理密码; change it with 参数设置 or: cd $(RUNDIR) && ./kiosk --set-pin)"; \
	fi

run: run-folder
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "No display here (DISPLAY and WAYLAND_DISPLAY are empty): the kiosk is ready in $(RUNDIR) but not started; use 'make run-headless' to run it under Xvfb."; \
	  exit 0; \
	fi; \
	cd $(RUNDIR) && exec ./kiosk

# The private screen's size (without the depth) lays out a new opt.ini.
run-headless: export KIOSK_SCREEN = $(word 1,$(subst x, ,$(SCREEN)))x$(word 2,$(subst x, ,$(SCREEN)))
run-headless: run-folder
	@tools/headless.sh $(RUNDIR) $(SCREEN)

# The dashboard over a private central database with a demo year, until Ctrl+C.
run-center: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target kiosk-web kiosk-mkdb
	@/usr/bin/python3 tools/run_center.py $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)

# make bench: install what the baselines need, build the benchmarks of bench/ in a Release build
# of their own and run all of them; they print their figures, baselines and ratios. Generated photos
# and databases are kept in $(BENCH_BUILD)/bench/bench-data. Never part of make test.
BENCH_BUILD    ?= build-bench
BENCH_PACKAGES  = libjpeg62-turbo-dev libsqlite3-dev wrk nginx curl
BENCHMARKS      = bench_pagefill bench_startup bench_submit bench_stats bench_memory bench_reports \
                  bench_startap bench_restart bench_central bench_photos bench_center \
                  bench_alert

.PHONY: bench
bench: build
	@missing=$$(for p in $(BENCH_PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DKIOSK_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target $(BENCHMARKS) -- --no-print-directory
	@cd $(BENCH_BUILD)/bench && for b in $(BENCHMARKS); do ./$$b || exit 1; done
