# The two set-up commands: `make run` plays the instrument, `make test` runs every test. Both install
# what is missing first (as root on Debian 12).
.PHONY: run test deps

deps:
	bash scripts/install-deps.sh

run: deps
	bash scripts/run.sh

test: deps
	bash scripts/test.sh
