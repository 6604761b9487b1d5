/* A small library that carries the signature in its data. */
static volatile const char signature[] = "Concept Virus";
__declspec(dllexport) int quarn_sample_value(void) { return signature[0]; }
