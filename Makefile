# The two commands of the README: `make run` and `make test`.
.PHONY: run test build install bench setup screenshot clean format

JOBS ?= $(shell nproc)

setup:
	scripts/setup

build: setup
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

install: build
	cmake --install build/dev

run: install
	scripts/run-launcher

test: setup
	cmake --preset asan -DLEX_WERROR=ON
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

bench: build
	bench/run

screenshot: install
	scripts/screenshot

format:
	scripts/format

clean:
	rm -rf build dist
