# Top-level entry points. `make demo` and `make test` do all the set-up on a
# fresh Debian machine (the bootstrap installs what is missing).
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all bootstrap build demo test test-plain test-sanitized run bench fuzz package clean

all: build

bootstrap:
	@scripts/bootstrap

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)

build: bootstrap $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@scripts/demo $(BUILD)

test: build
	@$(MAKE) --no-print-directory test-plain
	@$(MAKE) --no-print-directory test-sanitized

test-plain:
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVX_SANITIZE=ON $(CMAKE_ARGS)

test-sanitized: bootstrap $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

run: build
	$(BUILD)/app/vordel-pdf

bench: build
	bench/run-all.sh $(BUILD)

# Debian packages vordel, vordel-pdf and libvxpdf-dev in $(BUILD), checked
# with lintian.
package: build
	cd $(BUILD) && cpack -G DEB
	lintian --pedantic --tag-display-limit 0 $(BUILD)/*.deb

fuzz: bootstrap
	scripts/fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz
