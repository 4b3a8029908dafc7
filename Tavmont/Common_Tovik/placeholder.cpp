namespace NS_Tovik {}
