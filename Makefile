# Entry points for people and CI. Everything installs what it needs first.
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_BUILD ?= $(BUILD)-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all deps build test demo clean fuzz fuzz-build asan-e2e secrets install bench

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

test: build
	(cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600) || { scripts/ctest-failures.sh $(BUILD); exit 1; }
	JOBS=$(JOBS) scripts/test-sanitized.sh $(BUILD)-asan
	$(MAKE) fuzz-build
	cd $(FUZZ_BUILD)/fuzz && ctest --output-on-failure -L fuzz -j $(JOBS)
	$(MAKE) test-mipsel

# The fuzz targets: a separate clang build; each target runs FUZZ_SECONDS from its seed corpus.
fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DZM_FUZZ=ON -DZM_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets

fuzz: fuzz-build
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The end-to-end suite on every back end with zmue and the peer under ASan, UBSan and leak checks.
asan-e2e: deps
	JOBS=$(JOBS) scripts/test-asan-e2e.sh $(BUILD)-asan-e2e

# The whole end-to-end suite over password and key logins; nothing zmue writes may hold a secret.
secrets: build
	tests/e2e_secrets/secrets_run.sh $(BUILD)/src/opt/zmue/zmue $(BUILD)/tools/zmsd-peer/zmsd-peer \
	  $(BUILD)/tests/e2e/e2e_mount_test $(BUILD)/tests/libvfs_ftp/ftp_e2e_runner

demo: build
	@scripts/demo.sh $(BUILD)

# The self-contained program: zmue and the reference peer linked statically and stripped
# (build-static); test-static checks its banner and mounts zmp://localhost with both (root).
STATIC_BUILD ?= $(BUILD)-static
.PHONY: static test-static cross-deps mipsel test-mipsel
static: deps
	cmake -S . -B $(STATIC_BUILD) -DZM_STATIC=ON -DCMAKE_BUILD_TYPE=MinSizeRel
	cmake --build $(STATIC_BUILD) -j $(JOBS) --target zmue zmsd-peer

test-static: static
	ctest --test-dir $(STATIC_BUILD)/tests/static --output-on-failure

# The same for 32-bit little-endian MIPS (build-mipsel) with Debian's cross toolchain and mipsel
# libraries (scripts/install-cross-deps.sh); test-mipsel runs library tests under qemu.
MIPSEL_BUILD ?= $(BUILD)-mipsel
cross-deps:
	@scripts/install-cross-deps.sh

mipsel: cross-deps
	cmake -S . -B $(MIPSEL_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mipsel.cmake -DZM_STATIC=ON \
	  -DCMAKE_BUILD_TYPE=MinSizeRel
	cmake --build $(MIPSEL_BUILD) -j $(JOBS) --target zmue zmsd-peer

test-mipsel: cross-deps
	JOBS=$(JOBS) scripts/test-mipsel.sh $(MIPSEL_BUILD)

# Link recovery soak: 1 GiB copied each way through a zmp:// mount while the peer cuts the link 50
# times; checks zmue's descriptors and memory afterwards. Minutes long, needs root; not in make test.
.PHONY: soak
soak: build
	cd $(BUILD)/tests/e2e_recovery && ZM_RECOVERY_MIB=1024 ZM_RECOVERY_CUTS=50 \
	  ./e2e_recovery_test --gtest_filter='CopyCuts.*'

# The side-by-side benchmark (bench/README.md): minutes long, needs root; never part of make test.
BENCH_BUILD ?= $(BUILD)-bench
bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target zmue zmsd-peer
	bench/run.sh $(BENCH_BUILD)

# Installs zmue (with a sample zmue.ini beside it), mount.zmue into $(DESTDIR)/sbin, the manual page
# and the service examples under $(DESTDIR)$(PREFIX).
PREFIX ?= /usr/local
install: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=$(PREFIX)
	cmake --build $(BUILD) -j $(JOBS) --target zmue mount.zmue
	DESTDIR=$(if $(DESTDIR),$(abspath $(DESTDIR))) cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(BUILD)-asan-e2e
