# Front door: `make run` builds and starts Velto, `make test` builds and runs
# every test. Both install missing Debian packages first. `make package` makes
# build/velto_<version>_<arch>.deb; `make install` installs into PREFIX (and DESTDIR).
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
SAN_ENV = UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
          ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
          LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
          TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp \
          QT_QPA_PLATFORM=offscreen
# Every test has a timeout of its own (tests/*/CMakeLists.txt); --timeout is
# the backstop for one that lacks it, so that a hung test fails in minutes.
CTEST = ctest --no-tests=error --timeout 300 --output-on-failure -j$(JOBS)
# The tests' private chronyd: the machine's own, or the package unpacked into
# build-tools/ (never installed: it would replace the system's time daemon).
CHRONY_PATH = PATH="$(CURDIR)/build-tools/chrony/usr/sbin:$$PATH"

.PHONY: all deps deps-test deps-bench build build-app test test-release test-asan test-tsan test-v3 bench bench-headless sensitivity fuzz run package install screenshot example-day clean

all: build

# What building and running need; the tests' and the benchmarks' tools on top.
deps:
	@scripts/install-deps run
deps-test:
	@scripts/install-deps test
	@scripts/private-chrony build-tools/chrony >/dev/null
deps-bench:
	@scripts/install-deps bench

configure = cmake -S . -B build -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null

# The program alone, for `make run`.
build-app: deps
	@$(configure)
	@cmake --build build -j$(JOBS) --target velto

build: deps-test
	@$(configure)
	@cmake --build build -j$(JOBS)

test: test-release test-asan test-tsan test-v3

test-release: build
	cd build && $(CHRONY_PATH) QT_QPA_PLATFORM=offscreen $(CTEST)

# Every test again with AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps-test
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Release -DVELTO_SANITIZE=address,undefined \
	    -DVELTO_BENCH=OFF >/dev/null
	@cmake --build build-asan -j$(JOBS)
	cd build-asan && $(CHRONY_PATH) $(SAN_ENV) $(CTEST)

# Where threads meet, with ThreadSanitizer: the audio tests, the frame's
# tests (offscreen Qt), where the capture thread hands buffers to the window,
# and the console's output thread.
test-tsan: deps-test
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Release -DVELTO_SANITIZE=thread \
	    -DVELTO_BENCH=OFF >/dev/null
	@cmake --build build-tsan -j$(JOBS)
	cd build-tsan && $(SAN_ENV) $(CTEST) -L 'audio|app|threads'

# The dsp tests built for x86-64-v3 (AVX2, FMA), where the compiler may fuse
# multiply-adds and widen loops: no result may depend on that.
X86_64_V3 = $(shell /lib64/ld-linux-x86-64.so.2 --help 2>/dev/null | grep -c 'x86-64-v3 .supported')
test-v3: deps-test
ifeq ($(X86_64_V3),1)
	@cmake -S . -B build-v3 -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-march=x86-64-v3 \
	    -DVELTO_GUI=OFF -DVELTO_BENCH=OFF >/dev/null
	@cmake --build build-v3 -j$(JOBS) --target velto_dsp_tests
	cd build-v3 && $(CTEST) -L dsp
else
	@echo "test-v3: this processor cannot run x86-64-v3 code; skipped"
endif

bench: deps-bench build
	@scripts/run-bench build/bench/velto_bench

# The time-code decoder on simulated reception, a table per station
# (STATIONS), and the plot for the README (bench/sensitivity.png, JJY 40 kHz;
# the others' plots in build/). Takes some minutes per station; fails when a
# station misses its goals, after all have run.
STATIONS ?= jjy40 jjy60 dcf77 msf wwvb
sensitivity: deps-bench build
	@rc=0; for s in $(STATIONS); do \
	    if [ $$s = jjy40 ]; then plot=bench/sensitivity.png; else plot=build/sensitivity-$$s.png; fi; \
	    build/bench/velto_sensitivity --station $$s --plot $$plot || rc=1; \
	done; exit $$rc

# The console front end on 10 and 20 minutes of simulated signal: multiple
# of real time and peak memory. Also part of `make bench`.
bench-headless: deps-bench build
	@scripts/bench-headless build 10 20
bench: bench-headless

# The fuzz targets (clang's libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer): the console's file and standard-input paths
# with the decoder, and the decoder's frame search, minute sync and level fit
# seeded with minutes of simulated signal. Each runs FUZZ_SECONDS; the last
# lines give each one's runs and coverage (docs/fuzzing.md). Not part of
# `make test`.
FUZZ_SECONDS ?= 120
FUZZ_TARGETS = velto_fuzz_input velto_fuzz_frame_search velto_fuzz_minute_sync \
               velto_fuzz_level_fit velto_fuzz_seeds
fuzz:
	@scripts/install-deps fuzz
	@cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
	    -DCMAKE_CXX_COMPILER=clang++ -DVELTO_SANITIZE=address,undefined -DVELTO_FUZZ=ON \
	    -DVELTO_GUI=OFF -DVELTO_BENCH=OFF >/dev/null
	@cmake --build build-fuzz -j$(JOBS) --target $(FUZZ_TARGETS)
	@$(SAN_ENV) build-fuzz/tests/fuzz/velto_fuzz_seeds build-fuzz/seeds
	@$(SAN_ENV) scripts/run-fuzz build-fuzz $(FUZZ_SECONDS)

run: build-app
	@if [ -x build/velto ]; then build/velto --simulate; \
	else echo "No program has been built yet: the application is not part of this tree."; fi

package: build-app
	@cmake --build build --target package

install: build-app
	@DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"

# The pictures that the AppStream metadata and the README show, taken from
# the running program: the main window and the スペクトル window, in Japanese
# and in English.
screenshot: deps-test build-app
	@res/make-screenshot build/velto res/screenshots ja
	@res/make-screenshot build/velto res/screenshots en

# The README's example day of the reception log: 24 hours of simulated
# reception, decoded, logged and drawn as the タイムコード window's chart.
# Takes some minutes.
example-day: build
	@build/bench/velto_example_day bench/example-day.png

clean:
	rm -rf build build-asan build-tsan build-v3 build-fuzz build-tools
