# The language table of the cache's tests is written and read back by pxlib as a peer.
add_dependencies(Lib_uKVModuleLangCacheTest pxlib_peer)
