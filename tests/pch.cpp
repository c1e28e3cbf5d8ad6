// Builds the tests' precompiled headers; the test programs reuse them.
