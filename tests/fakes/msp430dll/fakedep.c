/* The library that one stand-in needs and the dynamic loader cannot find. */
int fakeMsp430Dependency(void) { return 1; }
