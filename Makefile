# The two commands: `make demo` runs the program's main job, `make test` runs the suite.
BUILD := build
.PHONY: all deps build test demo bench clean

all: build

deps:
	@tools/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j2

test: build
	BUILD=$(BUILD) tools/run-tests.sh $(ARGS)

demo: build
	BUILD=$(BUILD) tools/demo.sh

bench: build
	BUILD=$(BUILD) tools/bench.sh

clean:
	rm -rf $(BUILD)
