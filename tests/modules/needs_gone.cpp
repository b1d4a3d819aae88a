// A module whose one dependency is not where the loader looks.
extern "C" int fg_gone_value();
extern "C" __attribute__((visibility("default"))) int fg_needs_gone() { return fg_gone_value(); }
