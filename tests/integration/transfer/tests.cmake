# The protocol's own waits run up to 15 s, plus a 1 s status wait, in one test.
list(APPEND test_properties TIMEOUT 90)
