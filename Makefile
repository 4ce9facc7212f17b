# The two commands: `make demo` repairs the bundled damaged sample; `make test`
# builds everything and runs every test through CTest. Both install what they need.
BUILD ?= build
JOBS ?= 2

.PHONY: deps build demo test clean

deps:
	@./scripts/install-deps.sh

$(BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@$(BUILD)/sample/make_sample $(BUILD)/sample/damaged-sample.db > /dev/null
	@mkdir -p out
	$(BUILD)/cli/kestrun-repair --out out --include-deleted $(BUILD)/sample/damaged-sample.db

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
