# The two commands of README.md: `make run` and `make test`.
SHELL := /bin/bash
JOBS ?= $(shell nproc)

.PHONY: run test deps linux windows asan tsan fuzz fuzz-build fuzz-replay clean

# Seconds each fuzz target runs in `make fuzz`; FUZZ_TARGETS picks some by
# name (tests/fuzz/NAME.cpp), all by default.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=

deps:
	scripts/install-deps

linux: deps
	cmake --preset linux >/dev/null
	cmake --build --preset linux -j$(JOBS)

windows: deps
	scripts/windows-deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j$(JOBS)
	mkdir -p dist/windows
	cp build/windows/bin/ludarium.exe build/windows/bin/ludguard.exe dist/windows/
	cp build/windows/bin/ludstore.exe build/windows/bin/ludtablet.exe dist/windows/
	cp build/windows/bin/ludguard.exe dist/windows/

# Starts the service supervised: ludguard's console test mode launches
# ludarium beside it (and again whenever it ends); "q" then Enter, or Ctrl-C,
# ends both.
run: linux
	build/linux/bin/ludguard /test

# Builds both platforms and runs every test: Linux unit and end-to-end tests,
# the fuzz targets' regression corpora under ASan and UBSan, then the
# Windows unit tests and smoke tests under Wine.
test: linux windows fuzz-build
	ctest --preset linux
	ctest --preset fuzz
	# Wine 8's wineserver now and then fails an assertion of its own under
	# fast connection churn and takes the program's sockets with it; a
	# Windows test that fails is run once more before it counts.
	ctest --preset windows --repeat until-pass:2

asan: deps
	cmake --preset linux-asan >/dev/null
	cmake --build --preset linux-asan -j$(JOBS)
	ctest --preset linux-asan

tsan: deps
	cmake --preset linux-tsan >/dev/null
	cmake --build --preset linux-tsan -j$(JOBS)
	ctest --preset linux-tsan

fuzz-build: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j$(JOBS)

fuzz-replay: fuzz-build
	ctest --preset fuzz

# Runs every fuzz target (or FUZZ_TARGETS) for FUZZ_SECONDS each.
fuzz: fuzz-build
	scripts/fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

clean:
	rm -rf build dist
