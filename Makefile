# Quick start: `make demo` and `make test`. Both install what is missing first.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
# What ships and what is measured: make demo, make deb and make bench all use
# this one Release build with link-time optimisation. Tests are built in
# BUILD and ASAN_BUILD instead.
RELEASE_BUILD ?= build-release

.PHONY: all deps build build-asan release test test-asan demo bench fuzz vsix deb deb-test clean

all: build

deps:
	@./scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

$(RELEASE_BUILD)/build.ninja:
	cmake -S . -B $(RELEASE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUERN_TESTS=OFF -DQUERN_BENCH=ON

release: deps $(RELEASE_BUILD)/build.ninja
	cmake --build $(RELEASE_BUILD) -j $(JOBS)

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUERN_SANITIZE=ON

# The core (compiler, sequencer, shell logic) and its tests under
# AddressSanitizer and UndefinedBehaviorSanitizer.
build-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test: build build-asan
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

demo: deps $(RELEASE_BUILD)/build.ninja
	cmake --build $(RELEASE_BUILD) -j $(JOBS) --target quern quern_outputs quern-editor
	./scripts/demo.sh $(RELEASE_BUILD)

bench: release
	./scripts/bench.sh $(RELEASE_BUILD)

# The VS Code extension of editors/ (grammar and language client) packaged
# with @vscode/vsce from npm as build-vsix/quern-midi.vsix.
vsix:
	@./scripts/install-deps.sh --vsix
	./scripts/vsix.sh build-vsix

# libFuzzer targets built with clang (fuzz/), each run for FUZZ_SECONDS.
# Failing inputs land in fuzz/regressions/, which `make test` replays.
FUZZ_SECONDS ?= 60
fuzz:
	@./scripts/install-deps.sh --fuzz
	CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUERN_FUZZ=ON
	cmake --build build-fuzz -j $(JOBS)
	./scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS)

# The Debian package quern-midi_VERSION_amd64.deb, in this folder.
deb: release
	cd $(RELEASE_BUILD) && cpack -G DEB

# Builds the package, checks it with lintian, installs it for real, runs the
# installed programs and purges it again (root; not part of make test).
deb-test: deb
	./scripts/deb-test.sh $(RELEASE_BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(RELEASE_BUILD) build-bench build-fuzz
