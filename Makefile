# The two commands of the README: `make run` and `make test`.
.PHONY: run test build dist install uninstall package bench setup screenshot clean format

JOBS ?= $(shell nproc)
# `make install` lays the suite out as a Linux program below PREFIX (bin/, lib/, share/), inside
# DESTDIR when given; `make dist` lays out the flat tree of `make run` in dist/.
PREFIX ?= /usr/local
DESTDIR ?=

setup:
	scripts/setup

build: setup
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

dist: build
	cmake --install build/dev --component dist

install: build
	DESTDIR="$(DESTDIR)" cmake --install build/dev --component system --prefix "$(PREFIX)"

uninstall:
	DESTDIR="$(DESTDIR)" cmake -DMANIFEST=build/dev/install_manifest_system.txt -P cmake/uninstall.cmake

package: build
	cd build/dev && cpack

run: dist
	scripts/run-launcher

test: setup
	cmake --preset asan -DLEX_WERROR=ON
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

bench: build
	bench/run

screenshot: dist
	scripts/screenshot

format:
	scripts/format

clean:
	rm -rf build dist
