// What KVLib exports: the library is built with these names visible and keeps the rest
// of its code to itself.
#pragma once

#ifndef KVLIB_API
#define KVLIB_API __attribute__((visibility("default")))
#endif
