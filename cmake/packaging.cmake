# The Debian package: `cpack -G DEB` in a build folder makes quizzolo_<version>_<arch>.deb
# from everything `cmake --install` puts under the prefix, installed under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quizzolo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "La squadra di Quizzolo")
set(CPACK_PACKAGE_CONTACT "La squadra di Quizzolo <quizzolo@example.org>")
# The synopsis of the package; CPACK_DEBIAN_PACKAGE_DESCRIPTION below is the long description.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tabellina del 2 con il mago parlante - times table of 2, talking wizard")
set(CPACK_PACKAGE_HOMEPAGE_URL https://quizzolo.example.org)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "La squadra di Quizzolo <quizzolo@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Italian, then English; an empty line separates the paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[Quizzolo aiuta i bambini della scuola primaria a imparare la tabellina del 2.
Un mago fa le domande a voce, in italiano; il bambino scrive la risposta e il
mago dice subito se è giusta. Una partita dura sette minuti e il risultato
migliore resta come record da battere. Funziona senza rete.
Il Quaderno dei progressi (quizzolo-quaderno) mostra a genitori e insegnanti
come va ogni bambino, partita per partita e fatto per fatto.

Quizzolo helps primary school children learn the times table of 2. A wizard
asks the questions aloud, in Italian; the child types the answer and the
wizard says at once whether it is right. A game lasts seven minutes and the
best result is kept as the record to beat. No network needed.
The progress notebook (quizzolo-quaderno) shows parents and teachers how
each child is doing, game by game and fact by fact.]=])

# Libraries come from dpkg-shlibdeps; these are loaded at run time and it cannot see them:
# the Italian voice data, Qt's Italian button texts, the platform plugins, the fonts the
# window asks for by name, and QtSvg's image plugins for the artwork.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "espeak-ng-data, qt6-translations-l10n, qt6-qpa-plugins, fonts-liberation, fonts-dejavu-core, libqt6svg6")
# Qt Multimedia speaks to a PulseAudio server; without one the wizard only shows its words.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-pulse | pulseaudio")

include(CPack)
