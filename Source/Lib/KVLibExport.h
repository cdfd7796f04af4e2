// What KVLib exports: the library is built with these names visible and keeps the rest
// of its code to itself.
#pragma once

#ifndef KVLIB_API
#define KVLIB_API __attribute__((visibility("default")))
#endif
// Members of exported classes that only the library itself calls.
#ifndef KVLIB_LOCAL
#define KVLIB_LOCAL __attribute__((visibility("hidden")))
#endif
