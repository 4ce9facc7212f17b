# The two commands: `make demo` repairs the bundled damaged sample (in the desktop
# program when there is a display, else with the console program); `make test`
# builds everything and runs every test through CTest. Both install what they need.
# `make screenshots` shows the desktop program under Xvfb and saves what it showed.
BUILD ?= build
JOBS ?= 2

.PHONY: deps build demo test screenshots clean

deps:
	@./scripts/install-deps.sh

$(BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@$(BUILD)/sample/make_sample $(BUILD)/sample/damaged-sample.db > /dev/null
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/shell/kestrun-repair-gui $(BUILD)/sample/damaged-sample.db; \
	else \
	  mkdir -p out && \
	  $(BUILD)/cli/kestrun-repair --out out --include-deleted $(BUILD)/sample/damaged-sample.db && \
	  echo && echo "With a display, the desktop program repairs it too:" && \
	  echo "  $(BUILD)/shell/kestrun-repair-gui $(BUILD)/sample/damaged-sample.db"; \
	fi

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

screenshots: build
	@./scripts/install-deps.sh xvfb imagemagick
	@./scripts/screenshots.sh $(BUILD)

clean:
	rm -rf $(BUILD)
