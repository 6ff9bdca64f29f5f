// Result recovery and debug dump for generated task code.
//
// recoverOptiValue takes one number out of the last line of the "optim.out" result file that an
// optimisation run leaves in a directory; get_values is its line reader. printFileDebug dumps a
// text, preceded by the working directory, to the fixed debug file "C:\out.txt".
//
// These functions are internal to the library and are never exported from it.
#ifndef TARVELLO_SUPPORT_RECOVER_EXECUTE_OUTPUT_H_
#define TARVELLO_SUPPORT_RECOVER_EXECUTE_OUTPUT_H_

#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility push(hidden)
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Reads the result file named by path and returns its last data line as one text: the line's
// tokens (runs of bytes other than space, tab and newline), each token that a space or tab ends
// followed by one "%". The first line is a header and is skipped; a byte 0xFF ends the file. A
// last line without a final newline still counts; a file without data lines gives the empty text.
// The buffer belongs to the caller, who releases it with free(). Returns a null pointer when the
// file cannot be opened or read, or memory runs out.
char* get_values(const char* path);

// Returns the value of the index-th token (0-based) of the last data line of the file
// "optim.out" in the directory held by text, converted as atof converts. The directory is the
// first run of characters of text without an apostrophe (enclosing apostrophes are allowed).
// Returns -1.0 when there is no such value: no directory in text (null, empty or nothing but
// apostrophes), a file that cannot be read, too few tokens, a negative index, or no memory.
// text is not changed.
double recoverOptiValue(const char* text, int index);

// Prints "Current working dir: <dir>\n" on standard output and replaces the content of the
// debug file "C:\out.txt" with the working directory immediately followed by text (a null text
// counts as empty). When the working directory cannot be determined, nothing is printed and the
// file receives text alone. When the file cannot be opened, prints an error message on standard
// output and ends the program with exit status 1.
void printFileDebug(const char* text);

#ifdef __cplusplus
}  // extern "C"
#endif

#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility pop
#endif

#endif  // TARVELLO_SUPPORT_RECOVER_EXECUTE_OUTPUT_H_
