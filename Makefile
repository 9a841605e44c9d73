# The two commands of README.md: `make run` and `make test`.
SHELL := /bin/bash
JOBS ?= $(shell nproc)

.PHONY: run test deps linux windows asan tsan clean

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
	rm -rf dist/windows/www && cp -r build/windows/bin/www dist/windows/

# Starts the service supervised: ludguard's console test mode launches
# ludarium beside it (and again whenever it ends); "q" then Enter, or Ctrl-C,
# ends both.
run: linux
	@echo "Teacher's console: http://127.0.0.1:40080/www/ (40081 or 40082 when 40080 is taken)"
	build/linux/bin/ludguard /test

# Builds both platforms and runs every test: Linux unit and end-to-end tests,
# then the Windows unit tests and smoke tests under Wine.
test: linux windows
	ctest --preset linux
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

clean:
	rm -rf build dist
