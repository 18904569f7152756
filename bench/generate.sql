/* Fills the benchmark's tables on the server; @ROWS@ is replaced by the
   number of rows per unit (the units add up to 10 per table set). */
SET TERM ^ ;
EXECUTE BLOCK AS
  DECLARE I INTEGER = 0;
BEGIN
  WHILE (I < 1 * @ROWS@) DO BEGIN
    INSERT INTO CLIENTS VALUES (:I, 'Клиент ''№' || :I || '''', 'Город ' || MOD(:I, 97),
      DATEADD(-MOD(:I, 30000) DAY TO DATE '2010-01-01'), (:I - 50000) * 1.37,
      DATEADD(:I SECOND TO TIMESTAMP '2020-01-01 00:00:00.1234'));
    I = I + 1;
  END
END^
EXECUTE BLOCK AS
  DECLARE I INTEGER = 0;
BEGIN
  WHILE (I < 3 * @ROWS@) DO BEGIN
    INSERT INTO ORDERS VALUES (:I * 1000003, MOD(:I, 1 * @ROWS@), :I * 3.1415 - 77777.7777,
      DATEADD(:I MINUTE TO TIMESTAMP '2015-06-01 08:00:00'), MOD(:I, 5), 'C' || MOD(:I, 1000));
    I = I + 1;
  END
END^
EXECUTE BLOCK AS
  DECLARE I INTEGER = 0;
BEGIN
  WHILE (I < 4 * @ROWS@) DO BEGIN
    INSERT INTO ITEMS VALUES (:I, :I / 2, MOD(:I, 17) + 1, (:I + 1) / 7.0E0,
      'Товар ' || MOD(:I, 5000), MOD(:I, 1000) / 1000.0);
    I = I + 1;
  END
END^
EXECUTE BLOCK AS
  DECLARE I INTEGER = 0;
BEGIN
  WHILE (I < 1 * @ROWS@) DO BEGIN
    INSERT INTO NOTES VALUES (:I, MOD(:I, 1 * @ROWS@),
      IIF(MOD(:I, 10) < 7, 'Примечание к клиенту ' || :I || ': позвонить, уточнить адрес доставки; '
                           || LPAD('', MOD(:I, 30), 'x'), NULL),
      DATEADD(MOD(:I, 4000) DAY TO DATE '2005-01-01'));
    I = I + 1;
  END
END^
EXECUTE BLOCK AS
  DECLARE I INTEGER = 0;
BEGIN
  WHILE (I < 1 * @ROWS@) DO BEGIN
    INSERT INTO RATES VALUES (:I, DATEADD(:I DAY TO DATE '1900-01-01'), :I / 3.0E0,
      DATEADD(MOD(:I, 86400) SECOND TO TIME '00:00:00'), MOD(:I, 2) = 0, 'R' || :I);
    I = I + 1;
  END
END^
SET TERM ; ^
COMMIT;
