/* The toolkit sources spell the system header with a capital W. */
#include <windows.h>
