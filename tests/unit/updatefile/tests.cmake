# A file read that blocks (a FIFO taken for the update file) must fail the test, not stall it.
list(APPEND test_properties TIMEOUT 60)
