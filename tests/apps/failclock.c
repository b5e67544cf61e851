/* Preloaded into a program, makes its clock unreadable. */
#include <errno.h>
#include <sys/time.h>

int gettimeofday(struct timeval* tv, void* zone) {
  (void)tv, (void)zone;
  errno = EFAULT;
  return -1;
}
