# TLS: the crypto and TLS library bindings (loaded by name at run time, so
# neither library is linked), the TLS context, certificates and the TLS layer
# of the socket chain.
target_sources(net PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/evqlibeay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/evqssleay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sslcontext.cpp
  ${CMAKE_CURRENT_LIST_DIR}/x509.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wsocket_ssl.cpp
)
target_link_libraries(net PUBLIC ${CMAKE_DL_LIBS})
