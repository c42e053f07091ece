-- The template of the phone's working file: the nine tables the download fills
-- and the upload reads. The download copies each table's columns and declared
-- types from here; columns the server never fills (server ids of rows made on
-- the phone, serial numbers, deletion marks) are the phone's own.
CREATE TABLE AZ_ClientInfo (
  _ID INTEGER, SelfID TEXT, sClientCode TEXT, sClientName TEXT, sAddress TEXT, bIsActive TEXT,
  sLinkman TEXT, sMovePhone TEXT, sFaxNumber TEXT, sTelephone TEXT, sQQNumber TEXT, sEMail TEXT,
  sMemo TEXT, nPersonID INTEGER, nCompanyID INTEGER, bIsVendor TEXT, bIsCustomer TEXT,
  sBopomofo TEXT, InitReceiveTotal REAL, InitPayableTotal REAL, ReceiveTotal REAL,
  PayableTotal REAL);
CREATE TABLE AZ_PersonInfo (
  _ID INTEGER, SelfID TEXT, sPersonCode TEXT, sPersonName TEXT, sPersonPhone TEXT,
  nCompanyID INTEGER, nDeletionFlag INTEGER, sMail TEXT, sAddress TEXT, sBopomofo TEXT,
  sMemo TEXT, sPersonPass TEXT);
CREATE TABLE AZ_StockInfo (
  _ID INTEGER, SelfID TEXT, sStockCode TEXT, sStockName TEXT, sDescription TEXT,
  nPersonID INTEGER, nCompanyID INTEGER, sIsActive TEXT, sBopomofo TEXT);
CREATE TABLE AZ_StockWare (
  IsDownData TEXT, _ID INTEGER, nStockID INTEGER, nWareID INTEGER, sWareName TEXT,
  sBopomofo TEXT, nQuantity REAL, fCostPrice REAL, fCostTotal REAL, sIsActive TEXT,
  nPersonID INTEGER, nCompanyID INTEGER);
CREATE TABLE AZ_UserLimit (
  _id INTEGER, nCompanyID INTEGER, nPersonID INTEGER, nWindowID INTEGER, sWinCaption TEXT,
  sIsActive TEXT, nSortNo INTEGER);
CREATE TABLE AZ_WareMultiUnit (
  _ID INTEGER, nWareID INTEGER, sWareID TEXT, sUnitID TEXT, fUnitRate REAL,
  nUnitRowNumber INTEGER, fSalePrice REAL, fMinPrice REAL, fRetailPrice REAL, fBuyPrice REAL);
CREATE TABLE AZ_WareInfo (
  _ID INTEGER, SelfID TEXT, sWareName TEXT, sWareCode TEXT, sBarCode TEXT, sWareMemo TEXT,
  nWareClass INTEGER, nWareUnit INTEGER, nWareStatus INTEGER, fBuyPrice REAL, fSalePrice REAL,
  fShowPrice REAL, fMinPrice REAL, fRetailPrice REAL, nPersonID INTEGER, nCompanyID INTEGER,
  sBopomofo TEXT, nStockQty REAL, nStrictSerial INTEGER);
CREATE TABLE AZ_OtherInfo (
  _ID INTEGER, nFieldType INTEGER, nCompanyID INTEGER, SelfID TEXT, sFieldName TEXT,
  sFieldValue TEXT, sMemo TEXT, sIsActive TEXT);
CREATE TABLE AZ_BillDetailAll (
  _ID INTEGER, BillID INTEGER, IsDownData TEXT, nDeletionFlag INTEGER, nCompanyID INTEGER,
  nBillType INTEGER, nStockDirection INTEGER, nStockID INTEGER, StockID TEXT,
  nDateTime INTEGER, nClientID INTEGER, ClientID TEXT, nWareID INTEGER, WareID TEXT,
  sWareName TEXT, nWareUnit INTEGER, UnitNo INTEGER, UnitID TEXT, fUnitRate REAL,
  nWareQty REAL, fPrice REAL, fTotal REAL, fCostTotal REAL, nTrueStockID INTEGER,
  nPersonID INTEGER, PersonID TEXT, sBillNumber TEXT, fDiscount REAL, fReceived REAL,
  fPriorTotal REAL, sMemo TEXT, sSerialNo TEXT, sRefNo TEXT, sHeaderText TEXT);
