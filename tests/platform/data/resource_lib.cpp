// A library that carries resources of its own and nothing else worth calling.
extern "C" __attribute__((visibility("default"))) int kvb_resource_lib_marker() {
  return 7;
}
