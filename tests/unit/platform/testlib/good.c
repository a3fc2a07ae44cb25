/* A library with two exported functions for the library loader tests. */
int zimtest_answer(void) { return 42; }
int zimtest_extra(void) { return 7; }
