/* The payload a build of the updater carries as its "FILES" resource when it
   is built without the product's payload: run as the payload is run, it
   unpacks nothing and says so with a failing exit code, so that an update
   started with such a build stops at once. */
#include <stdio.h>

int main(void) {
  fputs("This build of the updater carries no payload: nothing to unpack.\n", stderr);
  return 1;
}
