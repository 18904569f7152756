; The payload of the Windows updater (files.exe): a silent NSIS
; self-extractor that unpacks the new version's files into its own folder,
; the folder the updater starts it in. Made by sample/make-payload:
;   makensis -DTARGET=x86-unicode|amd64-unicode -DSTAGE=<folder> -DOUTFILE=<file> payload.nsi
; Exit code 0 when every file was written; 2 when one could not be (the
; folder is not writable, the disk is full): a silent installer aborts then.
Unicode true
Target ${TARGET}
SetCompressor /SOLID lzma
SilentInstall silent
RequestExecutionLevel user
AllowSkipFiles off
SetOverwrite on
Name "Marlix 3.2"
OutFile "${OUTFILE}"

Section
  SetOutPath "$EXEDIR"
  File "${STAGE}/*"
SectionEnd
