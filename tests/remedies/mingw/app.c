/* A small program that carries the signature in its data, built with
   MinGW-w64 to give the resource reader real linker output. */
static volatile const char signature[] = "Concept Virus";
int main(void) { return signature[0] == 'C' ? 0 : 1; }
