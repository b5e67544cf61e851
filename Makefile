# The two commands a newcomer needs: `make run` starts the menu, `make test`
# runs every test. Both install what they need first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build run test bench clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-menu $(BUILD)

test: build
	cd $(BUILD) && ../scripts/with-xvfb ctest --output-on-failure -j $(JOBS)

bench: build
	@scripts/with-xvfb scripts/run-benchmarks $(BUILD)

clean:
	rm -rf $(BUILD)

# `make install PREFIX=/some/dir` installs libslate.a, slate.h, the CMake
# package and slate.pc there (default /usr/local).
PREFIX ?= /usr/local
.PHONY: install screenshots

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Runs every example on a private X server and saves docs/<example>.png.
screenshots: build
	@scripts/screenshots $(BUILD)
