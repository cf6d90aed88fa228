#include <orvpw.h>
#include <stdio.h>
int main(void) { int t = -1; GetKdclType(&t); printf("generation %d\n", t); return t == 0 ? 0 : 1; }
