# The two commands of the README. Both install what is missing first.
.PHONY: run test build deps

deps:
	bash scripts/install-deps.sh

build: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_UNITY_BUILD=ON
	cmake --build build -j $$(nproc)

run: build
	bash scripts/run.sh

test: deps
	bash scripts/test.sh
