# Quillory: make run previews a Markdown file, make test runs every test.
BUILD ?= build
FILE ?= examples/tour.md
OUT ?= $(BUILD)/$(basename $(notdir $(FILE))).html
JOBS ?= $(shell nproc)

.PHONY: run build test bootstrap format clean

run: bootstrap build
	./$(BUILD)/quillory -o $(OUT) $(FILE)
	@echo "Preview written to $(OUT)"

bootstrap:
	@scripts/bootstrap

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: bootstrap build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
