/* The yardstick for korvex-match's whole-process time: a plain C program that reads the file once
 * (one buffer of its size) and runs PCRE2, interpreted, once over it, printing "found" or
 * "not found".
 *
 *   korvex_pcre2_match_file PATTERN FILE
 */
#define PCRE2_CODE_UNIT_WIDTH 8
#include <fcntl.h>
#include <pcre2.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: korvex_pcre2_match_file PATTERN FILE\n");
        return 2;
    }
    const int fd = open(argv[2], O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        perror(argv[2]);
        return 2;
    }
    char* text = malloc((size_t)st.st_size + 1);
    size_t size = 0;
    ssize_t n;
    while (text && size < (size_t)st.st_size && (n = read(fd, text + size, (size_t)st.st_size - size)) > 0)
        size += (size_t)n;
    close(fd);
    if (!text) return 2;

    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile((PCRE2_SPTR)argv[1], PCRE2_ZERO_TERMINATED, 0, &error, &offset, NULL);
    if (!code) {
        fprintf(stderr, "pattern error %d at %zu\n", error, (size_t)offset);
        return 2;
    }
    pcre2_match_data* match = pcre2_match_data_create_from_pattern(code, NULL);
    const int rc = pcre2_match(code, (PCRE2_SPTR)text, size, 0, 0, match, NULL);
    if (rc > 1) {
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(match);
        printf("found\n%.*s\n", (int)(ov[3] - ov[2]), text + ov[2]);
    } else {
        printf(rc >= 0 ? "found\n" : "not found\n");
    }
    pcre2_match_data_free(match);
    pcre2_code_free(code);
    free(text);
    return rc >= 0 ? 0 : 1;
}
