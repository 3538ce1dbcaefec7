/* The floor: a static C program that writes one line and exits 1, as
   dictorn does after showing a quote. The CGI header in front of the line
   lets a web server serve it too; it goes out in the same single write. */
#include <stdio.h>

int main(void) {
  fputs("Content-type: text/html\n\nhello\n", stdout);
  return 1;
}
