# The language tables of the cache's tests: one written and read back by pxlib as a peer, and the demo's.
add_dependencies(Lib_uKVModuleLangCacheTest pxlib_peer)
add_dependencies(Lib_uKVModuleLangCacheTest kvmkdemo)
