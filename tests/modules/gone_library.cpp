// A library that the test removes from sight: the module that needs it
// is loaded without it.
extern "C" __attribute__((visibility("default"))) int fg_gone_value() { return 42; }
