/* A library that cannot load without its hidden dependency. */
int zimtest_depvalue(void);
int zimtest_answer(void) { return zimtest_depvalue(); }
