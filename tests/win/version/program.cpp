// A program that only carries the version resource it is built with.

int main() {
    return 0;
}
