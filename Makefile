# Thin wrapper over CMake; the README lists the commands.
BUILD ?= build

.PHONY: all build run test serve fuzz bench windows clean

all: build

build:
	@scripts/deps.sh build
	cmake -S . -B $(BUILD) -G Ninja
	cmake --build $(BUILD)

# The first run after a fresh build makes the index; a shown quote ends with
# status 1 by design, which is not an error here.
run: build
	@cd $(BUILD) && { ./dictorn >/dev/null 2>&1 || true; }
	@cd $(BUILD) && { ./dictorn; status=$$?; [ $$status -le 1 ]; }

test:
	@scripts/test.sh

serve: build
	@scripts/serve.sh $(BUILD)

fuzz:
	@fuzz/run.sh

bench:
	@bench/run.sh

windows:
	@scripts/windows.sh

clean:
	rm -rf $(BUILD) build-*
