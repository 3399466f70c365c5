/* A DLL that is only a version block. */
int versionDllMarker(void) { return 0; }
