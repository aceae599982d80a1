# The two commands: `make demo` runs the program's main job, `make test` runs the suite.
BUILD := build
.PHONY: all deps build test demo bench clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	BUILD=$(BUILD) tools/build.sh

test: build
	BUILD=$(BUILD) tools/run-tests.sh $(ARGS)

demo: build
	BUILD=$(BUILD) tools/demo.sh

bench: build
	BUILD=$(BUILD) tools/bench.sh

clean:
	rm -rf $(BUILD)
