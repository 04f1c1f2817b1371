// A static library whose only purpose is its resources: nothing refers to this code, so without
// care the linker would leave its resources out of the program.
int KvbStaticResourcesUnused() {
  return 0;
}
