/* Checks each replay file named on the command line through the runaudit
 * library and prints one line per file: FILE, a tab, then valid, invalid
 * or error. Exits 0 when every file is valid, 1 otherwise.
 *
 *   cc check_file.c $(pkg-config --cflags --libs runaudit) -o check_file
 */
#include <stdio.h>

#include <runaudit.h>

int main(int argc, char** argv) {
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    runaudit_result result;
    const int verdict = runaudit_check_file(argv[i], &result);
    printf("%s\t%s\n", argv[i], runaudit_verdict_name(verdict));
    if (verdict != RUNAUDIT_VALID) status = 1;
  }
  return argc > 1 ? status : 2;
}
