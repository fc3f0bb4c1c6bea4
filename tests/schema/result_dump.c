/* The library's JSON for each file named, one line each, for the schema's
 * test: `file` checks each path (runaudit_check_file), `bytes` its bytes
 * read whole (runaudit_check_bytes), `view` gives the viewer's data
 * (runaudit_view_bytes) and `evidence` the timing evidence
 * (runaudit_evidence_bytes); both null for a file that does not load. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <runaudit.h>

static unsigned char* readWhole(const char* path, size_t* size) {
  FILE* f = fopen(path, "rb");
  unsigned char* bytes = NULL;
  size_t used = 0, room = 0;
  if (f == NULL) return NULL;
  for (;;) {
    if (used == room) {
      unsigned char* grown = realloc(bytes, room = room * 2 + 4096);
      if (grown == NULL) break;
      bytes = grown;
    }
    size_t n = fread(bytes + used, 1, room - used, f);
    used += n;
    if (n == 0) break;
  }
  fclose(f);
  *size = used;
  return bytes;
}

int main(int argc, char** argv) {
  if (argc < 2 || (strcmp(argv[1], "file") != 0 && strcmp(argv[1], "bytes") != 0 && strcmp(argv[1], "view") != 0 &&
                    strcmp(argv[1], "evidence") != 0)) {
    fputs("usage: result_dump file|bytes|view|evidence PATH...\n", stderr);
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    runaudit_result result;
    char* json = NULL;
    if (strcmp(argv[1], "file") == 0) {
      runaudit_check_file(argv[i], &result);
      if (runaudit_result_json(&result, &json, NULL) != 0) return 1;
    } else {
      size_t size = 0;
      unsigned char* bytes = readWhole(argv[i], &size);
      if (bytes == NULL) {
        fprintf(stderr, "result_dump: cannot read %s\n", argv[i]);
        return 1;
      }
      if (strcmp(argv[1], "bytes") == 0) {
        runaudit_check_bytes(bytes, size, &result);
        if (runaudit_result_json(&result, &json, NULL) != 0) return 1;
      } else if (strcmp(argv[1], "view") == 0) {
        runaudit_view_bytes(bytes, size, &json, NULL);
      } else {
        runaudit_evidence_bytes(bytes, size, &json, NULL);
      }
      free(bytes);
    }
    puts(json != NULL ? json : "null");
    runaudit_free(json);
  }
  return 0;
}
