# Entry points for people and CI. Everything installs what it needs first.
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_BUILD ?= $(BUILD)-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all deps build test demo clean fuzz fuzz-build

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600
	JOBS=$(JOBS) scripts/test-sanitized.sh $(BUILD)-asan
	$(MAKE) fuzz-build
	cd $(FUZZ_BUILD)/fuzz && ctest --output-on-failure -L fuzz -j $(JOBS)

# The fuzz targets: a separate clang build; each target runs FUZZ_SECONDS from its seed corpus.
fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DZM_FUZZ=ON -DZM_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets

fuzz: fuzz-build
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

demo: build
	@scripts/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
