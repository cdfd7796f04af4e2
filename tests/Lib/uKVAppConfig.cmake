# The configuration tests write the registry value with kvreg, as an installation does.
add_dependencies(Lib_uKVAppConfigTest kvreg)
