# The two commands a newcomer needs: `make run` starts the menu, `make test`
# runs every test. Both install what they need first.
BUILD ?= build
ASAN_BUILD ?= build-asan
COVERAGE_BUILD ?= build-coverage
JOBS ?= $(shell nproc)

.PHONY: all deps build run test bench clean coverage

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-menu $(BUILD)

# Two passes: the normal build, then the same suite built with
# AddressSanitizer and UndefinedBehaviorSanitizer, whose tests (and every
# process they start) fail on any sanitizer report. The second pass runs
# only when the first has passed, so the summary printed last is always the
# one that matters.
test: build $(ASAN_BUILD)/CMakeCache.txt
	cd $(BUILD) && $(CURDIR)/scripts/with-xvfb ctest --output-on-failure -j $(JOBS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(CURDIR)/scripts/with-xvfb ctest --output-on-failure -j $(JOBS)

bench: build
	@scripts/with-xvfb scripts/run-benchmarks $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(COVERAGE_BUILD)

# The sanitizer build registers scripts/sanitizer-check as the launcher of
# its tests (CMake runs tests through the "emulator" of their executable).
# UndefinedBehaviorSanitizer is linked statically: only then does its
# runtime, next to AddressSanitizer's, write its reports where the launcher
# collects them.
$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSLATE_SANITIZE=ON -DSLATE_BENCH=OFF \
	  -DCMAKE_EXE_LINKER_FLAGS=-static-libubsan -DCMAKE_CROSSCOMPILING_EMULATOR=$(CURDIR)/scripts/sanitizer-check

# Line and branch coverage of lib/ and app/ over the whole suite, written to
# $(COVERAGE_BUILD)/coverage (HTML) and summed up on the terminal.
$(COVERAGE_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(COVERAGE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSLATE_COVERAGE=ON -DSLATE_BENCH=OFF

coverage: deps $(COVERAGE_BUILD)/CMakeCache.txt
	cmake --build $(COVERAGE_BUILD) -j $(JOBS)
	@scripts/coverage $(COVERAGE_BUILD) $(JOBS)

# `make install PREFIX=/some/dir` installs libslate.a, slate.h, the CMake
# package and slate.pc there (default /usr/local).
PREFIX ?= /usr/local
.PHONY: install screenshots

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Runs every example on a private X server and saves docs/<example>.png.
screenshots: build
	@scripts/screenshots $(BUILD)
