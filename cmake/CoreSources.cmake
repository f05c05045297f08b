# The decision code: plain functions that build both for Windows and natively.
set(WYK_CORE_SOURCES
  base/bounded_text.cpp
  base/folder_rules.cpp
  base/language.cpp
  base/product_constants.cpp
  bootstrap/command_line.cpp
  bootstrap/options.cpp
  cache/cache_paths.cpp
  cache/link_rules.cpp
  diagnostics/log_stamp.cpp
  followon/followon_rules.cpp
  payload/payload_resource.cpp
  platform/engine_rules.cpp
  platform/redirection_rules.cpp
  platform/registry_rules.cpp
)
