# Every file the program carries and writes to disk, in the order in which the
# tool files are written. One line per file:
#
#   mv_payload(<Id> PATH <target> BASE WORK|WINDOWS RULE ALWAYS|MISSING|SEPARATE
#              [VENDOR <name>] [TARGET <target>] [FILE <file>] [STANDIN <file>])
#
# PATH    where it goes, relative to the work directory (BASE WORK) or to the
#         Windows drive (BASE WINDOWS); written with "/", stored with "\".
# RULE    ALWAYS: rewritten by every tool-file pass; MISSING: written only when
#         no file is there; SEPARATE: carried here, written by its own module
#         just before use.
# Sources, first one available wins:
#   VENDOR  a file of that name in MV_VENDOR_PAYLOAD_DIR (supplied by a deployer)
#   TARGET  a file this build makes (used when the target exists)
#   STANDIN_TARGET  the same for a stand-in program this build makes
#   FILE    a file of the source tree (relative to payload/)
#   STANDIN a clearly named stand-in (relative to payload/standins/)
# Every stand-in, file or program, must hold the text "MV_OSR STAND-IN" (the
# build checks it): the program tells stand-ins from real tools by it.

# The WIM tool and its library (cross-built from the wimlib source by
# tools/wimlib in the 32-bit build when the source is there).
mv_payload(Libwim   PATH "tools/libwim-15.dll" BASE WORK RULE ALWAYS VENDOR libwim-15.dll TARGET libwim_dll STANDIN libwim-15.dll.standin)
mv_payload(Wimlib   PATH "tools/wimlib.exe"    BASE WORK RULE ALWAYS VENDOR wimlib.exe    TARGET wimlib_exe STANDIN wimlib.exe.standin)

# The download engine (the project's own; it needs no companion files, so
# nothing is carried for its "download" folder).
mv_payload(Xldl              PATH "xldl.dll"                       BASE WORK RULE ALWAYS TARGET xldl STANDIN xldl.dll.standin)

# Boot configuration tools and the RAM-disk boot image: written once per machine.
mv_payload(Bcdedit  PATH "tools/bcdedit.exe"  BASE WORK    RULE MISSING VENDOR bcdedit.exe STANDIN_TARGET bcdedit_standin STANDIN bcdedit.exe.standin)
mv_payload(BootSdi  PATH "boot/boot.sdi"      BASE WINDOWS RULE MISSING VENDOR boot.sdi    STANDIN boot.sdi.standin)
mv_payload(Bootsect PATH "tools/bootsect.exe" BASE WORK    RULE MISSING VENDOR bootsect.exe STANDIN bootsect.exe.standin)
# The Windows XP/2003 boot chain, written by the boot-entry step on those systems only.
mv_payload(ChainBcf     PATH "boot/BCF"   BASE WINDOWS RULE SEPARATE VENDOR BCF        STANDIN chain/BCF.standin)
mv_payload(ChainBootqii PATH "bootqii"    BASE WINDOWS RULE SEPARATE VENDOR bootqii    STANDIN chain/bootqii.standin)
mv_payload(ChainQzload  PATH "qzload.pbr" BASE WINDOWS RULE SEPARATE VENDOR qzload.pbr STANDIN chain/qzload.pbr.standin)

# The disk-listing tool, written by the partition listing before each run.
mv_payload(QzDir    PATH "tools/QzDir.exe"    BASE WORK RULE SEPARATE TARGET qzdir STANDIN QzDir.exe.standin)
