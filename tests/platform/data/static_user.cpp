// A static library that uses the resource-only library, as the FTP layer uses the errors
// library: the program links this one alone, so the resources arrive through two archives.
int KvbStaticResourcesUnused();
int KvbStaticUserUnused() {
  return KvbStaticResourcesUnused();
}
