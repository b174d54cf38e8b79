# Front door for the CMake build: `make`, `make test`, `make demo`.
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: all configure test demo clean format

all: configure
	cmake --build $(BUILD) --parallel

configure:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

test: all
	cd $(BUILD) && ctest --output-on-failure

# Extracts the shipped sample archive, answering the prompt with 1, and shows the tree.
demo: all
	rm -rf $(BUILD)/demo-out
	echo 1 | ./$(BUILD)/marrowgilder TK samples/sample.dat $(BUILD)/demo-out
	@echo
	@echo "Extracted tree:"
	@cd $(BUILD)/demo-out && find . -type f | sort | while read -r f; do \
	  printf '  %6s bytes  %s\n' "$$(wc -c < "$$f")" "$${f#./}"; done

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
