# Front door for the CMake build: `make`, `make test`, `make demo`.
BUILD ?= build
CMAKE_FLAGS ?=

WIN32_BUILD ?= build-win32
WIN64_BUILD ?= build-win64
SANITIZE_BUILD ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
TSAN_BUILD ?= build-tsan
FUZZ_SECONDS ?= 30
# Compile jobs at once (cmake --build alone would start as many as it likes).
JOBS ?= $(shell nproc)
export CMAKE_BUILD_PARALLEL_LEVEL = $(JOBS)

# Installs the Debian packages a target needs when run as root, or names the
# command to run; quick when all are there.
PACKAGES = bash scripts/install-packages

.PHONY: all configure test demo clean format windows test-windows test-sanitize test-tsan fuzz\
  bench bench-chart bench-window install package window-screenshot

all: configure
	cmake --build $(BUILD)

configure:
	@$(PACKAGES) build
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

test: all
	cd $(BUILD) && ctest --output-on-failure -LE windows

# Every Linux test against a build with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize:
	@$(PACKAGES) build
	cmake -S . -B $(SANITIZE_BUILD) -DMARROWGILDER_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_BUILD)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -LE windows

# mgarc's tests (label mgarc) against a ThreadSanitizer build: the workers of -j.
# A report fails the run at once, also in an mgarc that a test starts.
test-tsan: export TSAN_OPTIONS = halt_on_error=1 second_deadlock_stack=1
test-tsan:
	@$(PACKAGES) build
	cmake -S . -B $(TSAN_BUILD) -DMARROWGILDER_TSAN=ON $(CMAKE_FLAGS)
	cmake --build $(TSAN_BUILD)
	cd $(TSAN_BUILD) && ctest --output-on-failure -L mgarc

# Each libFuzzer target for FUZZ_SECONDS, from seeds made like the tests' archives.
# setsid: with no terminal, a report does not wait for a key.
FUZZ_TARGETS = archive_reader_fuzzer extraction_run_fuzzer mgarc_verify_fuzzer \
  mgarc_extract_fuzzer mgarc_create_fuzzer mgarc_patch_fuzzer
fuzz:
	@$(PACKAGES) build fuzz
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DMARROWGILDER_FUZZ=ON
	cmake --build $(FUZZ_BUILD) --target $(FUZZ_TARGETS) make_seed_corpus
	for target in $(FUZZ_TARGETS); do mkdir -p $(FUZZ_BUILD)/corpus/$$target; done
	$(FUZZ_BUILD)/tests/fuzz/make_seed_corpus $(FUZZ_BUILD)/corpus/archive_reader_fuzzer \
	  $(FUZZ_BUILD)/corpus/extraction_run_fuzzer $(FUZZ_BUILD)/corpus/mgarc_verify_fuzzer \
	  $(FUZZ_BUILD)/corpus/mgarc_extract_fuzzer $(FUZZ_BUILD)/corpus/mgarc_create_fuzzer \
	  $(FUZZ_BUILD)/corpus/mgarc_patch_fuzzer
	for target in $(FUZZ_TARGETS); do \
	  setsid -w $(FUZZ_BUILD)/tests/fuzz/$$target -max_total_time=$(FUZZ_SECONDS) -max_len=8192 \
	    -close_fd_mask=3 -artifact_prefix=$(FUZZ_BUILD)/$$target- \
	    $(FUZZ_BUILD)/corpus/$$target </dev/null || exit 1; \
	done

# marrowgilder and mgarc against GNU tar, bsdtar and cp on a tmpfs, mgarc mount
# against cp and archivemount, and mgarc diff, apply and update against
# xdelta3, zstd and cp: benchmarks, not tests.
BENCH_ROUNDS ?= 5
# The medians also go to $(BUILD)/bench.csv, for make bench-chart.
bench: export BENCH_CSV = $(abspath $(BUILD))/bench.csv
bench: all
	@$(PACKAGES) bench
	echo task,program,seconds,relative,bytes > $(BUILD)/bench.csv
	$(BUILD)/tests/bench/bench_extraction $(BUILD)/marrowgilder $(BUILD)/mgarc \
	  $(BENCH_ROUNDS)
	$(BUILD)/tests/bench/bench_mount $(BUILD)/mgarc $(BENCH_ROUNDS)
	$(BUILD)/tests/bench/bench_changes $(BUILD)/mgarc $(BENCH_ROUNDS)
	$(BUILD)/tests/bench/bench_patches $(BUILD)/mgarc $(BENCH_ROUNDS)

# The window under Wine on Xvfb, on the 64-bit build: opening and listing
# 65,535 entries, previewing a 20 MB image, and its peak memory.
bench-window: all
	@$(PACKAGES) windows wine
	cmake -S . -B $(WIN64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake $(CMAKE_FLAGS)
	cmake --build $(WIN64_BUILD) --target mgarcw window_driver
	bash scripts/bench-window $(WIN64_BUILD) $(BUILD)/mgarc $(BENCH_ROUNDS)

# docs/benchmarks.svg from the medians of the last make bench (build/bench.csv).
bench-chart:
	@$(PACKAGES) bench
	bash scripts/bench-chart $(BUILD)/bench.csv docs/benchmarks.svg

# Extracts the shipped sample archive, answering the prompt with 1, and shows
# the tree. Builds the two programs only: a newcomer waits for the demo, not
# for the tests.
demo: configure
	cmake --build $(BUILD) --target marrowgilder mgarc
	rm -rf $(BUILD)/demo-out
	echo 1 | ./$(BUILD)/marrowgilder TK samples/sample.dat $(BUILD)/demo-out
	@echo
	@echo "Extracted tree:"
	@cd $(BUILD)/demo-out && find . -type f | sort | while read -r f; do \
	  printf '  %6s bytes  %s\n' "$$(wc -c < "$$f")" "$${f#./}"; done

# The 32-bit and the 64-bit Windows programs, cross-built with mingw-w64. No
# Wine, neither installed nor run: each unit test program is one test, run by
# make test-windows.
windows:
	@$(PACKAGES) build windows
	cmake -S . -B $(WIN32_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $(CMAKE_FLAGS)
	cmake --build $(WIN32_BUILD)
	cmake -S . -B $(WIN64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake $(CMAKE_FLAGS)
	cmake --build $(WIN64_BUILD)

# docs/mgarcw.png, the window as the README and docs/windows.md show it:
# the 32-bit mgarcw.exe under Wine's virtual desktop on Xvfb.
window-screenshot: windows
	@$(PACKAGES) wine screenshot
	bash scripts/window-screenshot $(WIN32_BUILD) docs/mgarcw.png

# The unit tests under Wine, then the Windows programs driven from this side:
# the 32-bit ones where the kernel runs 32-bit programs, else the 64-bit ones
# (WINDOWS_BITS=32 or 64 chooses).
test-windows: windows
	@$(PACKAGES) wine
	bash scripts/test-windows $(BUILD) $(WIN32_BUILD) $(WIN64_BUILD) "$(CMAKE_FLAGS)"

# Installs the Linux build under PREFIX (DESTDIR is honoured, as usual).
PREFIX ?= /usr/local
install: all
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package and the two Windows zips, all written to $(BUILD).
package:
	@$(PACKAGES) package
	$(MAKE) all windows
	@test -f $(BUILD)/man/mgarc.1 || \
	  { echo 'make package: the manual pages need scdoc (Debian package scdoc)' >&2; exit 1; }
	cd $(BUILD) && cpack
	cd $(WIN32_BUILD) && cpack -B $(abspath $(BUILD))
	cd $(WIN64_BUILD) && cpack -B $(abspath $(BUILD))

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(WIN32_BUILD) $(WIN64_BUILD) $(SANITIZE_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
