# The two entry points: `make run` and `make test`. Both install what they need first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)

.PHONY: deps build build-asan test test-fast soak run package clean

deps:
	@./scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	@CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKIV_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

# Plain build and tests, then the sanitizer build and its tests (with the
# fuzzers); the status is non-zero when any step fails.
test: build
	@status=0; \
	echo "==== tests ($(BUILD)) ===="; \
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE 'soak|fuzz' || status=1; \
	echo "==== tests with AddressSanitizer + UndefinedBehaviorSanitizer ($(ASAN_BUILD)) ===="; \
	if $(MAKE) --no-print-directory build-asan; then \
	    ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -LE soak || status=1; \
	else status=1; fi; \
	exit $$status

# Plain build and tests only: the quick loop while developing.
test-fast: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE 'soak|fuzz'

# Sales under line faults (bench/soak): SOAK_SECONDS long, two minutes by default.
SOAK_SECONDS ?= 120
soak: build
	@KIV_SOAK_SECONDS=$(SOAK_SECONDS) ctest --test-dir $(BUILD) --output-on-failure -V -L soak

run: build
	@./scripts/run.sh $(BUILD)

# The .deb with the service, the plug-in, the systemd unit and the udev example.
package: build
	@cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
