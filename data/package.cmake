# The Debian package (`cpack -G DEB`, see scripts/make-deb.sh).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavirin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavirin")
set(CPACK_PACKAGE_CONTACT "Tavirin maintainers <maintainers@tavirin.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "school bell and public-address controller")
# CPack puts the summary first and indents these lines itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tavirin turns a school PC into its bell and PA controller. It rings up to 24
bells a day from seven weekday programs: it switches the PA amplifier on
through a relay on a serial port's RTS/DTR lines, plays the front chime,
announces the time in Thai, plays the period's sound and the back chime, then
switches the amplifier off or hands the PA over to internet radio or an MP3
player. It can also shut the PC down at a set time. The interface is in Thai.

A default sound library (chimes and a synthetic Thai voice) is installed and
copied to ~/rivedezode on the first start; the program starts at login.")

# Install to /usr/bin, /usr/share, and /etc for the autostart entry: CPack installs with
# DESTDIR set to its staging folder and the prefix /usr, as a Debian package's rules would.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)   # tavirin_<version>-<release>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# Every package the program needs at run time (Debian 12 names). The libraries are those
# the executable links (objdump -p ... | grep NEEDED, mapped with dpkg -S); libqt6gui6
# also carries the xcb platform plugin and the JPEG reader for the background picture.
# GStreamer: the app library (appsrc and appsink of the bell's stream), playbin, uridecodebin,
# audioconvert, Ogg Vorbis and Opus (base); wavparse, mpg123, autoaudiosink, the HTTP source
# souphttpsrc, icydemux, HLS (good); the PulseAudio and ALSA sinks. Qt Network asks a radio
# station's server what its address holds. libical reads and writes the school calendar's
# .ics files. The network page: Qt HTTP Server (which needs Qt WebSockets), OpenSSL for its
# certificate, libsodium for its password hashes, libqrencode for its QR code. The Thai
# interface needs Thai fonts. The bell journal is SQLite through Qt SQL,
# whose SQLite driver is a plugin loaded at run time.
set(tavirin_depends
    "libc6 (>= 2.36)"
    "libstdc++6 (>= 12)"
    "libgcc-s1"
    "libglib2.0-0 (>= 2.74)"
    "libqt6core6 (>= 6.4)"
    "libqt6gui6 (>= 6.4)"
    "libqt6widgets6 (>= 6.4)"
    "libqt6dbus6 (>= 6.4)"
    "libqt6serialport6 (>= 6.4)"
    "libqt6network6 (>= 6.4)"
    "libqt6sql6 (>= 6.4)"
    "libqt6sql6-sqlite (>= 6.4)"
    "libgstreamer1.0-0 (>= 1.22)"
    "libgstreamer-plugins-base1.0-0 (>= 1.22)"
    "gstreamer1.0-plugins-base (>= 1.22)"
    "gstreamer1.0-plugins-good (>= 1.22)"
    "gstreamer1.0-pulseaudio"
    "gstreamer1.0-alsa"
    "libical3 (>= 3.0)"
    "libqt6httpserver6 (>= 6.4)"
    "libqt6websockets6 (>= 6.4)"
    "libssl3"
    "libsodium23"
    "libqrencode4"
    "fonts-thai-tlwg")
list(JOIN tavirin_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# The MP3 player and the radio browser it starts; the AAC decoder for radio streams (avdec_aac:
# many stations send AAC); systemctl for the automatic shutdown.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "audacious, firefox-esr, gstreamer1.0-libav, systemd")
# A tray on GNOME needs the AppIndicator extension.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-shell-extension-appindicator")

# Files under /etc are the administrator's: dpkg keeps changes to them on upgrade.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles "/etc/xdg/autostart/tavirin.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles)

include(CPack)
