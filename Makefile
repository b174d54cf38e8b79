# Front door for the CMake build: `make`, `make test`, `make demo`.
BUILD ?= build
CMAKE_FLAGS ?=

WIN32_BUILD ?= build-win32

.PHONY: all configure test demo clean format windows test-windows

all: configure
	cmake --build $(BUILD) --parallel

configure:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

test: all
	cd $(BUILD) && ctest --output-on-failure -LE windows

# Extracts the shipped sample archive, answering the prompt with 1, and shows the tree.
demo: all
	rm -rf $(BUILD)/demo-out
	echo 1 | ./$(BUILD)/marrowgilder TK samples/sample.dat $(BUILD)/demo-out
	@echo
	@echo "Extracted tree:"
	@cd $(BUILD)/demo-out && find . -type f | sort | while read -r f; do \
	  printf '  %6s bytes  %s\n' "$$(wc -c < "$$f")" "$${f#./}"; done

# The 32-bit Windows program, cross-built with mingw-w64.
windows:
	cmake -S . -B $(WIN32_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $(CMAKE_FLAGS)
	cmake --build $(WIN32_BUILD) --parallel

# The unit tests under Wine, then the Windows program driven from this side.
# Wine's own prefix is made first, so that its set-up messages stay out of the tests.
test-windows: export WINEDEBUG = -all
test-windows: export WINEDLLOVERRIDES = mscoree,mshtml=
test-windows: windows
	wineboot --init >/dev/null 2>&1 || true
	cd $(WIN32_BUILD) && ctest --output-on-failure
	$(MAKE) all
	cd $(BUILD) && ctest --output-on-failure -L windows

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(WIN32_BUILD)
