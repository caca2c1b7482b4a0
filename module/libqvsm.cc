// libqvsm.so is the whole core library linked as one shared object; its only exported
// symbols are the entry points of qvsm.h (see cmake/qvsm.map).
#include <qvsm/qvsm.h>
