# Every screen in every language at two sizes: a few seconds, more under the sanitizers.
list(APPEND test_properties TIMEOUT 120)
