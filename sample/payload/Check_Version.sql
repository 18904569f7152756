/* Marlix 3.2 updates a database of version 3.1 only: any other version, or
   a database that is not Marlix's, stops the update here, before anything
   has been exported. */
SET TERM ^ ;
EXECUTE BLOCK AS
  DECLARE MAJOR INTEGER;
  DECLARE MINOR INTEGER;
BEGIN
  SELECT MAJOR, MINOR FROM SP_DB_VERSION INTO :MAJOR, :MINOR;
  IF (MAJOR IS DISTINCT FROM 3 OR MINOR IS DISTINCT FROM 1) THEN
    EXCEPTION E_MARLIX 'Обновление до версии 3.2 возможно только с версии 3.1, а версия базы данных ' ||
      COALESCE(MAJOR, '?') || '.' || COALESCE(MINOR, '?');
END^
SET TERM ; ^
