"""Loads the qorva_mat library with ctypes, then the material plugin, and queries through it.

Usage: ctypes_load.py LIBRARY PLUGIN MATBOOK_FILE VERSION. Exits non-zero with a message on the
first wrong answer; ctypes itself raises OSError when a library cannot be loaded.
"""
import ctypes
import sys


def main(library_path, plugin_path, matbook_path, version):
    library = ctypes.CDLL(library_path)  # RTLD_LOCAL, like every extension module
    plugin = ctypes.CDLL(plugin_path)
    assert library is not None

    plugin.qorva_plugin_library_version.restype = ctypes.c_char_p
    plugin.qorva_plugin_open.restype = ctypes.c_void_p
    plugin.qorva_plugin_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p,
                                         ctypes.c_size_t]
    plugin.qorva_plugin_query.restype = ctypes.c_int
    plugin.qorva_plugin_query.argtypes = [ctypes.c_void_p] + [ctypes.c_char_p] * 3 + [
        ctypes.c_double, ctypes.c_char_p, ctypes.POINTER(ctypes.c_double), ctypes.c_char_p,
        ctypes.c_size_t]
    plugin.qorva_plugin_close.argtypes = [ctypes.c_void_p]

    found = plugin.qorva_plugin_library_version().decode()
    if found != version:
        sys.exit(f"library version {found!r}, expected {version!r}")

    message = ctypes.create_string_buffer(512)
    handle = plugin.qorva_plugin_open(matbook_path.encode(), b"MPA", message, len(message))
    if not handle:
        sys.exit("open failed: " + message.value.decode())
    value = ctypes.c_double()
    for strain, expected in [(0.0, 250.0), (0.005, 275.0), (0.03, 310.0), (0.05, 320.0)]:
        status = plugin.qorva_plugin_query(handle, b"Multilinear", b"Isotropic Hardening",
                                           b"Plastic Strain", strain, b"stress",
                                           ctypes.byref(value), message, len(message))
        if status != 0 or abs(value.value - expected) > 1e-9:
            sys.exit(f"strain {strain}: status {status}, value {value.value}, expected {expected}, "
                     f"message {message.value.decode()!r}")
    plugin.qorva_plugin_close(handle)
    print("qorva_mat", found, "loaded through ctypes")


if __name__ == "__main__":
    main(*sys.argv[1:5])
