# Run by cpack once it has staged the files: every staged folder becomes 0755. cpack and the
# installation make them with the builder's umask (CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
# does not reach them), and the Debian package takes its folders' modes from them.
file(CHMOD_RECURSE "${CPACK_TEMPORARY_DIRECTORY}" DIRECTORY_PERMISSIONS
     OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
