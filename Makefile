# Front door: `make run` builds and starts Velto, `make test` builds and runs
# every test. Both install missing Debian packages first. `make package` makes
# build/velto_<version>_<arch>.deb; `make install` installs into PREFIX (and DESTDIR).
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
SAN_ENV = UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
          ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
          TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp \
          QT_QPA_PLATFORM=offscreen

.PHONY: all deps build test test-release test-asan test-tsan test-v3 bench sensitivity run package install screenshot clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	@cmake --build build -j$(JOBS)

test: test-release test-asan test-tsan test-v3

test-release: build
	cd build && QT_QPA_PLATFORM=offscreen ctest --no-tests=error --output-on-failure -j$(JOBS)

# Every test again with AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Release -DVELTO_SANITIZE=address,undefined \
	    -DVELTO_BENCH=OFF >/dev/null
	@cmake --build build-asan -j$(JOBS)
	cd build-asan && $(SAN_ENV) ctest --no-tests=error --output-on-failure -j$(JOBS)

# The audio tests, where threads meet, with ThreadSanitizer.
test-tsan: deps
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Release -DVELTO_SANITIZE=thread \
	    -DVELTO_GUI=OFF -DVELTO_BENCH=OFF >/dev/null
	@cmake --build build-tsan -j$(JOBS)
	cd build-tsan && $(SAN_ENV) ctest --no-tests=error --output-on-failure -j$(JOBS) -L audio

# The dsp tests built for x86-64-v3 (AVX2, FMA), where the compiler may fuse
# multiply-adds and widen loops: no result may depend on that.
X86_64_V3 = $(shell /lib64/ld-linux-x86-64.so.2 --help 2>/dev/null | grep -c 'x86-64-v3 .supported')
test-v3: deps
ifeq ($(X86_64_V3),1)
	@cmake -S . -B build-v3 -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-march=x86-64-v3 \
	    -DVELTO_GUI=OFF -DVELTO_BENCH=OFF >/dev/null
	@cmake --build build-v3 -j$(JOBS) --target velto_dsp_tests
	cd build-v3 && ctest --no-tests=error --output-on-failure -j$(JOBS) -L dsp
else
	@echo "test-v3: this processor cannot run x86-64-v3 code; skipped"
endif

bench: build
	@scripts/run-bench build/bench/velto_bench

# The time-code decoder on simulated reception: its table, and the plot for
# the README (bench/sensitivity.png). Takes some minutes.
sensitivity: build
	@build/bench/velto_sensitivity --plot bench/sensitivity.png

run: build
	@if [ -x build/velto ]; then build/velto --simulate; \
	else echo "No program has been built yet: the application is not part of this tree."; fi

package: build
	@cmake --build build --target package

install: build
	@DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"

# The picture that the AppStream metadata shows, taken from the running program.
screenshot: build
	@res/make-screenshot build/velto res/screenshots/strips.png

clean:
	rm -rf build build-asan build-tsan build-v3
