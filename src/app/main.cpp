#include <cstdio>
#include <cstring>

namespace {

void PrintHelp() {
  std::printf(
      "Usage: tovrani [options] INPUT...\n"
      "Turns compiled Flash movies (SWF) back into authoring documents (FLA)\n"
      "with a JSFL script beside each one.\n"
      "\n"
      "  --help       show this text\n"
      "  --version    show the version\n");
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      PrintHelp();
      return 0;
    }
    if (!std::strcmp(argv[i], "--version")) {
      std::printf("tovrani %s\n", TOVRANI_VERSION);
      return 0;
    }
  }
  PrintHelp();
  return 2;
}
