# The two commands of README.md: `make run` and `make test`.
SHELL := /bin/bash
JOBS ?= $(shell nproc)

.PHONY: run test deps run-deps linux windows asan tsan fuzz fuzz-build fuzz-replay clean

# The tests run in network, IPC and mount namespaces of their own
# (scripts/in-netns), which only root may make: stop before building.
ifneq ($(filter test asan tsan fuzz fuzz-replay,$(MAKECMDGOALS)),)
ifneq ($(shell id -u),0)
$(error The tests need root: they run in network, IPC and mount namespaces of their own. Run "sudo make $(MAKECMDGOALS)")
endif
endif

# Seconds each fuzz target runs in `make fuzz`; FUZZ_TARGETS picks some by
# name (tests/fuzz/NAME.cpp), all by default.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=

# What building and testing both platforms needs; run-deps only what
# building and running the Linux service needs. Both fetch the sources built
# here: CivetWeb (both platforms), jsoncpp (Windows).
deps:
	scripts/install-deps test
	scripts/windows-deps

run-deps:
	scripts/install-deps run
	scripts/windows-deps

linux: deps
	cmake --preset linux >/dev/null
	cmake --build --preset linux -j$(JOBS)

# Both Windows builds: i686 (what schools install) into dist/windows/, its
# x86_64 twin into dist/windows-x64/. The programs there are stripped; the
# build trees keep the debug information (see README, "Reading a crash").
# Then their setup programs: dist/ludarium-setup.exe (i686, the one schools
# get) and dist/ludarium-setup-x64.exe.
windows: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j$(JOBS)
	cmake --preset windows-x64 >/dev/null
	cmake --build --preset windows-x64 -j$(JOBS)
	scripts/dist-windows build/windows dist/windows i686-w64-mingw32
	scripts/dist-windows build/windows-x64 dist/windows-x64 x86_64-w64-mingw32
	scripts/make-installer x86
	scripts/make-installer x64

# Starts the service supervised: ludguard's console test mode launches
# ludarium beside it (and again whenever it ends); "q" then Enter, or Ctrl-C,
# ends both. Only the programs are built. ludguard's autostart entry goes
# into XDG folders below build/run, not into the machine's or the user's.
RUN_DIR := build/run
run: run-deps
	cmake --preset linux >/dev/null
	cmake --build --preset linux -j$(JOBS) --target ludarium ludguard console_www
	@mkdir -p $(RUN_DIR)/xdg $(RUN_DIR)/config
	@echo "Teacher's console: http://127.0.0.1:40080/www/ (40081 or 40082 when 40080 is taken)"
	XDG_CONFIG_DIRS=$(CURDIR)/$(RUN_DIR)/xdg XDG_CONFIG_HOME=$(CURDIR)/$(RUN_DIR)/config \
	  build/linux/bin/ludguard /test

# Builds both platforms and runs every test: Linux unit and end-to-end tests,
# the fuzz targets' regression corpora under ASan and UBSan, then the Windows
# unit tests and end-to-end tests under Wine, on the i686 build where this
# machine runs 32-bit programs and on the x64 build where it does not
# (scripts/windows-test says which; LUD_WINDOWS_ARCH=i686|x64 forces).
test: linux windows fuzz-build
	ctest --preset linux
	ctest --preset fuzz
	scripts/windows-test

asan: deps
	cmake --preset linux-asan >/dev/null
	cmake --build --preset linux-asan -j$(JOBS)
	scripts/sanitized-ctest linux-asan

tsan: deps
	cmake --preset linux-tsan >/dev/null
	cmake --build --preset linux-tsan -j$(JOBS)
	scripts/sanitized-ctest linux-tsan

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
