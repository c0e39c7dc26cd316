/* A library the platform tests load and unload; nothing in the tests links it. */
int keepmappedProbe(void) {
    return 42;
}
