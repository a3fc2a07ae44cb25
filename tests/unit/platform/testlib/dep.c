/* The dependency that the loader tests hide from the dynamic loader. */
int zimtest_depvalue(void) { return 5; }
