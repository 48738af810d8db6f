# Entry points for people and CI. Everything installs what it needs first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build test demo clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600
	JOBS=$(JOBS) scripts/test-sanitized.sh $(BUILD)-asan

demo: build
	@scripts/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD)
