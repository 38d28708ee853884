# Entry points: `make test`, `make demo`, `make bench`, `make asan`, `make screenshots`.
# Every target installs the Debian packages it needs first (scripts/install-deps.sh).

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps configure build test asan bench demo screenshots clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The keychain tests need a Secret Service: the test run gets a private session
# bus with an unlocked gnome-keyring-daemon on it.
test: build
	bash scripts/run-tests.sh $(BUILD)

asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKW_SANITIZE=ON $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	bash scripts/run-tests.sh $(ASAN_BUILD)

bench: build
	bash scripts/run-bench.sh $(BUILD)

demo: build
	bash scripts/demo.sh $(BUILD)

# Every window and tab with sample data, offscreen, at its minimum size.
screenshots: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/kestrel-screenshots docs/screenshots

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
