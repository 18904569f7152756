/* Fills the database of Marlix 3.1 on the server. scripts/sample-product
   replaces @DEPARTMENTS@, @CLIENTS@ and @DOCUMENTS@ by the number of rows
   of each table; the triggers add a row to AUDIT_LOG for every client. */
SET TERM ^ ;

EXECUTE BLOCK AS
  DECLARE I INTEGER = 1;
BEGIN
  WHILE (I <= @DEPARTMENTS@) DO BEGIN
    INSERT INTO DEPARTMENTS (ID, PARENT_ID, NAME, CODE)
    VALUES (:I, IIF(:I = 1, NULL, :I / 2),
            DECODE(MOD(:I, 4), 0, 'Отдел продаж № ' || :I, 1, 'Склад "Север" ' || :I,
                   2, 'Бухгалтерия' || ASCII_CHAR(13) || ASCII_CHAR(10) || 'филиал ' || :I,
                   'Dept ' || :I),
            IIF(MOD(:I, 3) = 0, NULL, 'D' || LPAD(:I, 7, '0')));
    I = I + 1;
  END
END^

EXECUTE BLOCK AS
  DECLARE I INTEGER = 1;
  DECLARE K INTEGER = 0;
  DECLARE PHOTO BLOB SUB_TYPE BINARY;
  DECLARE PIECE VARCHAR(256) CHARACTER SET OCTETS = '';
BEGIN
  /* A picture stand-in: every byte value, eight times over. */
  WHILE (K < 256) DO BEGIN
    PIECE = PIECE || ASCII_CHAR(K);
    K = K + 1;
  END
  PHOTO = PIECE || PIECE || PIECE || PIECE || PIECE || PIECE || PIECE || PIECE;
  WHILE (I <= @CLIENTS@) DO BEGIN
    INSERT INTO CLIENTS (ID, DEPARTMENT_ID, NAME, INN, BORN, BALANCE, CREDIT_LIMIT, RATING,
                         DISCOUNT, VISITS, TURNOVER, CREATED, CALL_AT, ACTIVE, NOTE, PHOTO)
    VALUES (:I,
            IIF(MOD(:I, 13) = 0, NULL, MOD(:I, @DEPARTMENTS@) + 1),
            DECODE(MOD(:I, 7), 0, '', 1, 'О''Брайен № ' || :I,
                   2, 'Иванов' || ASCII_CHAR(13) || ASCII_CHAR(10) || 'Пётр ' || :I,
                   3, 'Клиент "' || :I || '"', 4, 'ООО «Ромашка» ' || :I,
                   5, 'Tab' || ASCII_CHAR(9) || 'и ёлка ' || :I, 'Client ' || :I),
            IIF(MOD(:I, 5) = 0, NULL, LPAD(:I, 12, '0')),
            IIF(MOD(:I, 9) = 0, NULL, DATEADD(-MOD(:I * 37, 60000) DAY TO DATE '2005-01-01')),
            DECODE(MOD(:I, 11), 0, NULL, 1, 922337203685477.5807,
                   2, -922337203685477.5807 - 0.0001, (:I - 5000) * 12.3456),
            MOD(:I, 100000) * 10.05,
            IIF(MOD(:I, 17) = 0, -1.0E300, :I / 7.0E0),
            IIF(MOD(:I, 19) = 0, NULL, MOD(:I, 100) / 3.0E0),
            MOD(:I, 32767),
            IIF(MOD(:I, 23) = 0, -9223372036854775807 - 1, :I * CAST(1000000007 AS BIGINT)),
            DATEADD(:I * 1234 MILLISECOND TO TIMESTAMP '2019-03-01 08:00:00.1234'),
            DATEADD(MOD(:I * 7919, 86399000) MILLISECOND TO TIME '00:00:00.0005'),
            MOD(:I, 2),
            DECODE(MOD(:I, 6), 0, NULL, 1, '',
                   2, 'Позвонить после 15:00;' || ASCII_CHAR(13) || ASCII_CHAR(10) || 'уточнить адрес',
                   3, 'Сказал: "не ''звонить""', 'Примечание ' || :I),
            IIF(MOD(:I, 50) = 1, :PHOTO, NULL));
    I = I + 1;
  END
END^

EXECUTE BLOCK AS
  DECLARE I INTEGER = 1;
BEGIN
  WHILE (I <= @DOCUMENTS@) DO BEGIN
    INSERT INTO "ДОКУМЕНТЫ" ("НОМЕР", CLIENT_ID, "ПРИМЕЧАНИЕ", AMOUNT, RATE, QTY, DOC_DATE, BODY)
    VALUES (:I, MOD(:I, @CLIENTS@) + 1,
            DECODE(MOD(:I, 5), 0, NULL, 1, '', 2, 'Акт сверки № ' || :I,
                   3, 'Счёт-фактура ''А-' || :I || '''', 'Invoice ' || :I),
            :I * 3.1415 - 77777.77,
            MOD(:I, 1000) / 1000.0,
            MOD(:I, 2000) / 10.0 - 99.9,
            DATEADD(MOD(:I, 4000) DAY TO DATE '2010-01-01'),
            IIF(MOD(:I, 4) = 0, 'Договор поставки № ' || :I || ASCII_CHAR(10) || 'Срок: 30 дней', NULL));
    I = I + 1;
  END
END^

/* The extremes of every exact type and the edges of the approximate ones. */
EXECUTE BLOCK AS
BEGIN
  INSERT INTO AMOUNTS VALUES (1, 32767, 2147483647, 9223372036854775807, 922337203685477.5807,
    9223372036854775807, 9999999999999.99, 21474836.47, 327.67, 9.223372036854775807,
    99999.99999, 3.4028234E38, 1.7976931348623157E308);
  INSERT INTO AMOUNTS VALUES (2, -32768, -2147483647 - 1, -9223372036854775807 - 1,
    -922337203685477.5807 - 0.0001, -9223372036854775807 - 1, -9999999999999.99, -21474836.48,
    -327.68, -9.223372036854775808, -99999.99999, -3.4028234E38, -1.7976931348623157E308);
  INSERT INTO AMOUNTS VALUES (3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  INSERT INTO AMOUNTS VALUES (4, 1, 1, 1, 0.0001, 1, 0.01, 0.01, 0.01, 0.000000000000000001,
    0.00001, 1.0E-37, 1.0E-300);
  INSERT INTO AMOUNTS VALUES (5, -1, -1, -1, -0.0001, -1, -0.01, -0.01, -0.01,
    -0.000000000000000001, -0.00001, -0.1, 0.1);
  INSERT INTO AMOUNTS (ID) VALUES (6);
END^

/* Settings, with a text blob of several megabytes and a binary one. */
EXECUTE BLOCK AS
  DECLARE BIG BLOB SUB_TYPE TEXT CHARACTER SET WIN1251;
  DECLARE K INTEGER = 0;
  DECLARE BYTES VARCHAR(256) CHARACTER SET OCTETS = '';
BEGIN
  BIG = 'Руководство пользователя Marlix, строка ''с кавычками'' и "двойными"' ||
        ASCII_CHAR(13) || ASCII_CHAR(10) || LPAD('', 200, 'Ж') || ASCII_CHAR(13) || ASCII_CHAR(10);
  /* About 4 MB: doubled 14 times. */
  WHILE (K < 14) DO BEGIN
    BIG = BIG || BIG;
    K = K + 1;
  END
  K = 0;
  WHILE (K < 256) DO BEGIN
    BYTES = BYTES || ASCII_CHAR(255 - K);
    K = K + 1;
  END
  INSERT INTO SETTINGS (NAME, VAL, TEXT_VALUE, BIN_VALUE) VALUES ('VERSION', '3.1', NULL, NULL);
  INSERT INTO SETTINGS (NAME, VAL, TEXT_VALUE, BIN_VALUE) VALUES ('MANUAL', 'Руководство', :BIG, NULL);
  INSERT INTO SETTINGS (NAME, VAL, TEXT_VALUE, BIN_VALUE) VALUES ('KEY', NULL, NULL, :BYTES);
  INSERT INTO SETTINGS (NAME, VAL, TEXT_VALUE, BIN_VALUE) VALUES ('EMPTY', '', '', '');
  INSERT INTO SETTINGS (NAME, VAL, TEXT_VALUE, BIN_VALUE)
    VALUES ('GREETING', 'Добро пожаловать!' || ASCII_CHAR(13) || 'Вторая строка', 'Короткий текст', NULL);
END^

SET TERM ; ^

/* Generators with values a copy must keep. */
SET GENERATOR GEN_DEPARTMENT_ID TO @DEPARTMENTS@;
SET GENERATOR GEN_CLIENT_ID TO @CLIENTS_GENERATOR@;
SET GENERATOR "НОМЕР_АКТА" TO 5000000017;
COMMIT;
