// Linked with one layer whole and the layers below it: it builds only when
// no object of the layer calls into a layer above.
int main() { return 0; }
